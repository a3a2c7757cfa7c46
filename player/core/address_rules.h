#pragma once

#include <QString>

// The two address rules of the player. Every address that comes from a
// page, the store (memory slots, schedule entries) or the media player is
// checked here before it is played or recorded; no other code decides it.
namespace AddressRules {

// The capture library takes source addresses of at most this many
// characters.
constexpr int kMaxRecordableLength = 255;

// An address that may be played from a directory page, a memory slot or a
// schedule entry: an absolute address with a host and one of the schemes
// http, https, mms, mmsh or rtsp (in any case). A page or a stored row
// then cannot make the player open a local file or device; local
// recordings are played through Playback::playLocalFile.
bool playable(const QString &address);

// An address the capture library records from the network: "http://" or
// "mms://" (any case) with something after it, or the page and playlist
// form "host[:port]/path" without a scheme. Never a local path, a "file:"
// address or another scheme; no control characters; at most
// kMaxRecordableLength characters.
bool recordable(const QString &address);

}  // namespace AddressRules
