#!/usr/bin/env bash
# Installs every Debian 12 package needed to build kestrelgrain-capture and run its tests.
# Idempotent: packages already present are left alone. Needs root (or sudo).
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config git
  # toolkit (the xcb platform plugin lives in qt6-qpa-plugins)
  qt6-base-dev qt6-qpa-plugins libgl-dev
  # capture backend
  libxcb1-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-composite0-dev libxcb-damage0-dev
  libxcb-randr0-dev libxcb-shape0-dev libxcb-render0-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libpulse-dev
  # Wayland sessions: the screen-cast portal (libportal) and PipeWire streams
  libportal-dev libpipewire-0.3-dev libspa-0.2-dev
  # JSON and tests; clang for the libFuzzer targets
  nlohmann-json3-dev libgtest-dev libgmock-dev clang
  # test, demo and benchmark tools: a real X server and input, decoders, a sound server, fonts
  # with the stop and pause symbols, /usr/bin/time, a terminal for the benchmark's typing scene
  xvfb xauth xdotool x11-utils x11-xserver-utils ffmpeg pulseaudio pulseaudio-utils
  fonts-dejavu-core fonts-symbola time xterm
  # the desktops the X11 tests run on: window managers and compositing managers; Xorg with its
  # dummy driver for two monitors (Xvfb has one)
  openbox picom xfwm4 xcompmgr xserver-xorg-core xserver-xorg-video-dummy
  # PipeWire with its pulse server, the second sound server the tests run against
  pipewire wireplumber pipewire-pulse libpipewire-0.3-common dbus dbus-bin
  # dbus-launch, which the D-Bus library autolaunches without a session bus: the tests check
  # that nothing starts it
  dbus-x11
  # a headless Wayland desktop: sway, the screen-cast portal, Xwayland, input and screenshots;
  # gdbus and pw-cli to ask the bus and PipeWire whether its parts are up
  sway xdg-desktop-portal xdg-desktop-portal-wlr qt6-wayland xwayland wtype grim
  libwayland-dev wayland-protocols libglib2.0-bin pipewire-bin
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
