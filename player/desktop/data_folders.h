#pragma once

#include <QString>

// Where the player's files live.
//
// Portable (the build folder, as run.sh starts it): everything beside the
// program, as always: rd.d, pic/, radiorecord/ and the recorders.
//
// Installed (the package's layout is seen: <prefix>/share/vexa-radio-player
// beside the program's <prefix>/bin; or the program folder cannot be
// written): each user has a folder of their own,
// $XDG_DATA_HOME/vexa-radio-player (~/.local/share/vexa-radio-player).
// On the first start it gets a copy of the shipped rd.d (the store then
// upgrades it by its version rule whenever a newer player opens it); pic/
// gains every shipped picture it lacks (the user's own pictures stay);
// radiorecord links to a folder in the user's music folder; grablive and
// grabclock link to the recorders beside the program. The rest of the
// player sees one folder, as in the portable layout.
struct DataFolders
{
    // The program's own folder: the recorders live here.
    QString programDir;
    // rd.d, pic/ and radiorecord/ (what the rest of the player calls its
    // program folder).
    QString dataDir;
    // Installed: the folder the shipped rd.d and pic/ are copied from.
    QString shippedDir;
    // Installed: where recordings land (radiorecord links here).
    QString recordingsDir;
    bool installed = false;

    static constexpr const char *kFolderName = "vexa-radio-player";
    static constexpr const char *kRecordingsName = "Vexa Radio Player";

    // The layout of the program in `programDir`, from the environment
    // (XDG_DATA_HOME, HOME and the user's music folder).
    static DataFolders locate(const QString &programDir);
    // Installed: makes the user's folder ready as described above. False,
    // with a one-line reason, when a needed part cannot be made; what can
    // be made is made. Portable: nothing to do.
    bool prepare(QString *error) const;
};
