# Environment shared by run.sh and test.sh (sourced).
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/vexa-runtime-$(id -u)}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# Qt WebEngine refuses to run as root with its sandbox on.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
