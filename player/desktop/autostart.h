#pragma once

#include <QString>

// The XDG autostart entry that starts the player in the notification area
// when the user logs in, so scheduled entries fire without anyone opening
// the player: $XDG_CONFIG_HOME/autostart/vexa-radio-player.desktop
// (~/.config when the variable is unset or not absolute).
namespace Autostart {

QString entryFile();
// True when the entry exists and is not hidden.
bool isEnabled();
// The entry's text for `program`: runs it with --tray.
QString entryText(const QString &program);
// Writes (on) or removes (off) the entry. False, with a one-line reason in
// `error`, when the file cannot be written or removed.
bool setEnabled(bool on, const QString &program, QString *error);
// `argument` quoted for an Exec key, with the desktop entry's own escapes.
QString execArgument(const QString &argument);

}  // namespace Autostart
