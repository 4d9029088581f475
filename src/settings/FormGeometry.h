#pragma once

class IniWizard;
class QWidget;

// Stores and restores a window's outer place and size, in twips, in the
// section "<objectName> Size". A value of 0 or one that is not a number
// leaves that coordinate at its design value (a window's design place is
// its pos(), the place of its frame); a negative width or height too. The
// current section is put back as it was, empty included.
// A window restored before it is shown gets the stored outer size once the
// window system has given it its frame.
void INILoadFormSize(IniWizard &ini, QWidget *window);
void INISaveFormSize(IniWizard &ini, QWidget *window);
