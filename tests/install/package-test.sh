#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks it with lintian: no errors, and the
# dependencies the binaries need, the engine and the Japanese font among them. The package's
# version is the one the About box shows, and the manual pages, the AppStream data and the
# changelog carry it too.
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
version=$(dpkg-deb -f "$deb" Version)
root=$work/root
dpkg-deb -x "$deb" "$root"
grep -aqF "Velmo version $version"$'\r' "$root/usr/bin/velmo" \
  || { echo "FAIL: the About box does not show the package's version $version"; exit 1; }
for page in velmo velmo-bottle-server velmo-ghost-host; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | sed -n 1p | grep -qF "\"Velmo $version\"" \
    || { echo "FAIL: the manual page $page.1 is not of version $version"; exit 1; }
done
grep -qF "<release version=\"$version\"" "$root/usr/share/metainfo/org.example.velmo.Velmo.metainfo.xml" \
  || { echo "FAIL: the AppStream data has no release $version"; exit 1; }
zcat "$root/usr/share/doc/velmo/changelog.gz" | sed -n 1p | grep -qF "velmo ($version)" \
  || { echo "FAIL: the changelog's last entry is not $version"; exit 1; }
if ! lintian --fail-on error "$deb" > "$work/lintian.log" 2>&1; then
  grep -v 'running with root privileges' "$work/lintian.log"
  echo "FAIL: lintian reports errors"
  exit 1
fi
echo "$(basename "$deb"): lintian found no errors"
