# The headless environment every program and test runs in: no display, no GPU, no sound card.
export QT_QPA_PLATFORM=offscreen
export ALSOFT_DRIVERS=null
export EGL_PLATFORM=surfaceless
export LIBGL_ALWAYS_SOFTWARE=1
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/xdg-runtime-$(id -u)}"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 0700 "$XDG_RUNTIME_DIR"
unset DISPLAY
