#pragma once

class IniWizard;
class QWidget;

// Stores and restores a window's outer place and size, in twips, in the
// section "<objectName> Size". A value of 0 or one that is not a number
// leaves that coordinate at its design value.
void INILoadFormSize(IniWizard &ini, QWidget *window);
void INISaveFormSize(IniWizard &ini, QWidget *window);
