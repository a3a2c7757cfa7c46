// Stand-in until MMS over TCP is built.
#include "mms_tcp.h"

#include <cstdio>

namespace netgrab {

int captureMmsTcp(const char*) {
    std::printf("MMS over TCP is not built yet\n");
    return -1;
}

}  // namespace netgrab
