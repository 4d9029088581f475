// The search and filter dialogs and the about box, opened from the main
// window.

#include "frmFerulan.h"

void frmFerulan::cmdSearch_Click()
{
}

void frmFerulan::cmdFilter_Click()
{
}

void frmFerulan::Command1_Click()
{
}

void frmFerulan::UnloadDialogs()
{
}

void frmFerulan::Form_Paint()
{
}
