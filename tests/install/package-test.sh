#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks it with lintian: no errors, and the
# dependencies the binaries need, the engine and the Japanese font among them.
#   package-test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/velmo_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6webenginecore6 libqt6webenginecore6-bin fonts-ipafont-gothic qt6-qpa-plugins qt6-translations-l10n; do
  case ", $depends," in
    *", $needed "* | *", $needed,"*) ;;
    *) echo "FAIL: $(basename "$deb") does not depend on $needed: $depends"; exit 1 ;;
  esac
done
if ! lintian --fail-on error "$deb" > "$work/lintian.log" 2>&1; then
  grep -v 'running with root privileges' "$work/lintian.log"
  echo "FAIL: lintian reports errors"
  exit 1
fi
echo "$(basename "$deb"): lintian found no errors"
