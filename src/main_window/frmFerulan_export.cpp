// Leaving through "Fin".

#include "frmFerulan.h"

void frmFerulan::cmdClose_Click()
{
    close();
}
