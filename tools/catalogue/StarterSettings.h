#pragma once

#include <QString>

// A first settings file for the program, with an empty catalogue for it
// when there is none yet. Nothing already there is ever replaced.
namespace StarterSettings {

struct Result {
    bool written = false;
    QString error;            // why nothing was written
    QString settingsFile;
    QString catalogue;        // the file Database names
    bool catalogueMade = false; // false: one was there already and stays as it was
};

// folder: where NAME.ini goes (made when missing). The catalogue goes into
// the data folder that goes with it (the user's for the user's settings
// folder, else the folder itself). editAccess writes the access code.
Result write(const QString &folder, const QString &name, bool editAccess);

} // namespace StarterSettings
