#pragma once

#include <QString>

// True for an address that names a network stream: an absolute address
// with a host and one of the schemes http, https, mms, mmsh or rtsp (in any
// case). Addresses from directory pages, memory stations and schedule
// entries are played only when this holds, so that a page cannot make the
// player open a local file or device; local recordings are played through
// their own entry point.
bool isNetworkStreamAddress(const QString &address);
