#!/bin/sh
# Runs a test program in a network namespace of its own whose only
# interface is loopback, so that a recorder led astray by a hostile answer
# cannot reach any other machine. Needs root (or user namespaces).
if [ "${VEXA_LOOPBACK_NETNS:-}" = 1 ]; then
    exec "$@"
fi
if ! unshare --net -- true 2>/dev/null; then
    echo "in_loopback_netns: cannot create a network namespace (unshare --net not permitted);" \
         "these tests serve hostile answers and run only inside one" >&2
    exit 1
fi
exec unshare --net -- sh -c '
    ip link set lo up || { echo "in_loopback_netns: cannot bring up loopback" >&2; exit 1; }
    VEXA_LOOPBACK_NETNS=1 exec "$@"' in_loopback_netns "$@"
