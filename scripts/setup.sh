#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Qorvel工尺谱 need.
# Idempotent: quiet when everything is present, runs apt-get update only when
# something is missing, and uses sudo when not run as root.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build ccache pkg-config
  qtbase5-dev libqt5svg5-dev qt5-image-formats-plugins
  # the score library's index: Qt SQL through SQLite (with FTS5)
  libqt5sql5-sqlite
  libbenchmark-dev
  # font generation (the embedded gongche font is derived from AR PL UKai)
  python3 python3-fonttools fonts-arphic-ukai
  # Chinese families for the Windows names 楷体 / 黑体 on Linux
  fonts-arphic-uming fonts-wqy-microhei fonts-dejavu-core
  # Qt's own translations, so that standard dialogs and buttons speak Chinese
  qttranslations5-l10n
  # tests and visual checks
  xvfb xauth xdotool x11-utils x11-xserver-utils imagemagick poppler-utils librsvg2-bin
  # reading back what the MIDI and MusicXML writers produce: mido, the MusicXML
  # schema validator and LilyPond's musicxml2ly
  python3-mido libxml2-utils lilypond
  # desktop integration: entry validation and the MIME database
  desktop-file-utils shared-mime-info
  # the Debian package and its checks: the manual page's source (scdoc), the
  # package's dependencies (dpkg-shlibdeps), AppStream validation, the
  # desktop's default handler, and the manual page read back
  scdoc dpkg-dev appstream xdg-utils groff-base
  python3-minimal
  # playback and WAV export: FluidSynth, a General MIDI sound font, and sox to
  # read back the rendered audio
  libfluidsynth-dev timgm6mb-soundfont sox
  # sound output: Qt Multimedia and its PulseAudio and ALSA back ends
  qtmultimedia5-dev libqt5multimedia5-plugins
  # PDF outlines and document information written into exported PDFs (libqpdf),
  # and qpdf to read them back
  libqpdf-dev qpdf
  # page images written through libpng
  libpng-dev
  # reading compressed MusicXML (.mxl) archives
  libzip-dev
  # a real notation program to write and re-save MusicXML for the import tests
  musescore3
  # looking at exported SVG pages as a browser shows them, without our fonts
  chromium
  # sanitizer and fuzzing builds
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

SUDO=""
if [[ $(id -u) -ne 0 ]]; then
  SUDO="sudo"
fi

echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
