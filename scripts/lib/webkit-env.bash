# The environment WebKit and GTK need in a container: the one list of it.
#
#   source scripts/lib/webkit-env.bash
#       sets webkit_env and headless_env and exports webkit_env (scripts/test,
#       scripts/demo, scripts/bench, tests/package/install_test.sh);
#   bash scripts/lib/webkit-env.bash
#       prints both, NAME=VALUE a line: the end-to-end fixture (CMake gives it
#       this file's path) and bench/browse_bench.py read them so.
#
# Only plain NAME=VALUE words: the printed lines are read without a shell.

# The engine in a container: no GPU compositing, and, as root, no sandbox,
# which refuses to start for root.
webkit_env=(WEBKIT_DISABLE_COMPOSITING_MODE=1)
if [[ $(id -u) -eq 0 ]]; then
  webkit_env+=(WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS=1)
fi

# A program in a private X server with no GPU and no desktop session: X11
# even where Wayland is set up, no accessibility bus, settings in memory,
# software GL and no DMA-BUF renderer. Given only to programs run under Xvfb
# (the tests, the benchmarks); a demo on the user's desktop keeps that
# desktop's settings.
headless_env=(
  GDK_BACKEND=x11
  NO_AT_BRIDGE=1
  GTK_A11Y=none
  GSETTINGS_BACKEND=memory
  LIBGL_ALWAYS_SOFTWARE=1
  WEBKIT_DISABLE_DMABUF_RENDERER=1
)

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
  printf '%s\n' "${webkit_env[@]}" "${headless_env[@]}"
else
  export "${webkit_env[@]}"
fi
