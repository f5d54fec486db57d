# The Debian package of the build: its name, the files it installs and what it depends on.
set -euo pipefail
trap 'echo "failed at line $LINENO: $BASH_COMMAND" >&2' ERR
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

deb=$(VANTOREL_BUILD_DIR=$VANTOREL_BUILD_DIR "$VANTOREL_SOURCE_DIR/scripts/package.sh" -o "$out")
[[ $(basename "$deb") =~ ^vantorel_[0-9.]+_$(dpkg --print-architecture)\.deb$ ]]

files=$(dpkg-deb -c "$deb" | awk '{print $6 ($7 ? " " $7 " " $8 : "")}')
for path in ./usr/lib/vantorel/vantorel ./usr/lib/vantorel/Oravane.so ./usr/lib/vantorel/vantorel-regsvr \
            ./usr/lib/vantorel/help.html ./usr/lib/vantorel/sound-help.html "./usr/lib/vantorel/fg -> /usr/bin/ffmpeg" "./usr/lib/vantorel/ar -> /usr/bin/dvdauthor" \
            ./usr/share/applications/vantorel.desktop \
            ./usr/share/icons/hicolor/scalable/apps/vantorel.svg ./usr/share/icons/hicolor/48x48/apps/vantorel.png \
            "./usr/bin/vantorel -> ../lib/vantorel/vantorel"; do
    grep -qxF "$path" <<<"$files" || { echo "the package lacks $path" >&2; exit 1; }
done
if grep -v -e '^\./usr/' -e '^\./$' <<<"$files"; then echo "the package installs outside /usr" >&2; exit 1; fi

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libqt6dbus6 qt6-qpa-plugins libavcodec libavformat libswscale libpulse0 libburn4 \
               libreoffice-impress ffmpeg dvdauthor genisoimage; do
    grep -Eq "(^|, )$package[0-9]*( |,|$)" <<<"$depends" || { echo "Depends lacks $package: $depends" >&2; exit 1; }
done
echo "package test passed"
