#!/usr/bin/env bash
# The installed program, as a user gets it: `cmake --install` into a staging
# folder (DESTDIR), then the installed orvanel runs --version, --info and
# --picture with DISPLAY unset, from a folder of its own, with the source and
# build folders hidden (a mount namespace covers them with empty folders), so
# that nothing is read from them. Then the desktop files are validated and the
# file types are looked up as a desktop would.
# When the Python module is built, the installed package is imported and
# draws the same picture.
#   install_test.sh BUILD SOURCE VERSION [PYTHON PYTHON_DIR]
set -euo pipefail

if [ "${1:-}" = --hidden ]; then
  # Second stage, run from the staging folder inside the mount namespace.
  stage=$2 version=$3 python=${4:-} python_dir=${5:-}
  bin=$stage/usr/bin/orvanel
  cd "$stage/work"
  export PATH=$stage/usr/bin:/usr/bin:/bin
  unset DISPLAY WAYLAND_DISPLAY
  got=$("$bin" --version)
  [ "$got" = "orvanel $version" ] || { echo "FAIL: --version printed '$got'"; exit 1; }
  "$bin" --info viga.txt > info.out
  grep -qx "nnode 21" info.out || { echo "FAIL: --info:"; cat info.out; exit 1; }
  "$bin" --picture installed.png --list 1 --mesh --legend viga.txt
  cmp -s installed.png built.png || { echo "FAIL: the installed program draws another picture than the build"; exit 1; }
  echo "installed program: --version, --info, --picture ok"
  if [ -n "$python" ]; then
    PYTHONPATH=$stage/usr/$python_dir "$python" -c '
import orvanel, sys
assert orvanel.__file__.startswith(sys.argv[1]), orvanel.__file__
assert orvanel.read("viga.txt").node_count == 21
orvanel.picture("viga.txt", "python.png", list=1, mesh=True, legend=True)
' "$stage/usr/"
    cmp -s python.png built.png || { echo "FAIL: the installed Python module draws another picture than the build"; exit 1; }
    echo "installed Python module: import, read, picture ok"
  fi
  exit 0
fi

build=$(realpath "$1") source=$(realpath "$2") version=$3 python=${4:-} python_dir=${5:-}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail=0
check() { # check NAME COMMAND...: runs the command, reports failure by name
  local name=$1
  shift
  if "$@"; then echo "ok: $name"; else echo "FAIL: $name"; fail=1; fi
}

DESTDIR=$stage cmake --install "$build" --prefix /usr > "$stage/install.log"
usr=$stage/usr
mkdir "$stage/work"
cp "$source/examples/viga.txt" "$stage/work/"

# The full program lives out of the PATH, and the launcher alone cannot run
# the viewer or the batch modes: it says so, with status 1.
check "only the launcher in bin" test "$(ls "$usr/bin")" = orvanel
check "orvanel-app in libexec" test -x "$usr/libexec/orvanel/orvanel-app"
if [ -n "$python" ]; then
  check "Python module in $python_dir" test -f "$usr/$python_dir/orvanel/__init__.py" -a \
    -n "$(ls "$usr/$python_dir"/orvanel/_orvanel*.so)"
  # The system's interpreter looks there for the prefix /usr.
  check "$python_dir is on the interpreter's path under /usr" \
    "$python" -c "import sys; sys.exit('/usr/$python_dir' not in sys.path)"
fi
mkdir "$stage/alone" && cp "$usr/bin/orvanel" "$stage/alone/"
set +e
(cd "$stage/work" && env -u DISPLAY "$stage/alone/orvanel" --picture x.png viga.txt 2> alone.err)
status=$?
set -e
check "a launcher without orvanel-app fails with a message" \
  test "$status" = 1 -a ! -e "$stage/work/x.png"
grep -q "cannot start" "$stage/work/alone.err" || { echo "FAIL: no message:"; cat "$stage/work/alone.err"; fail=1; }

# The reference picture from the build folder, then the installed program
# with that folder out of reach.
(cd "$stage/work" && env -u DISPLAY "$build/src/orvanel" --picture built.png --list 1 --mesh --legend viga.txt)
cp "$0" "$stage/install_test.sh"
if unshare -m true 2> /dev/null; then
  # A build folder inside the source folder is hidden with it.
  hide="mount -t tmpfs none '$source'"
  case "$build/" in "$source"/*) ;; *) hide="mount -t tmpfs none '$build' && $hide" ;; esac
  check "installed program with the source and build folders hidden" \
    unshare -m bash -c "$hide && exec bash '$stage/install_test.sh' --hidden '$stage' '$version' '$python' '$python_dir'"
else
  echo "note: no mount namespace here; the installed program runs with the build folder in place"
  check "installed program" bash "$stage/install_test.sh" --hidden "$stage" "$version" "$python" "$python_dir"
fi

# Desktop entry, AppStream metadata, icons.
desktop=$usr/share/applications/orvanel.desktop
metainfo=$usr/share/metainfo/org.orvanel.Orvanel.metainfo.xml
check "desktop-file-validate" desktop-file-validate "$desktop"
check "appstreamcli validate" appstreamcli validate --no-net --no-color "$metainfo"
check "SVG icon is well-formed" xmllint --noout "$usr/share/icons/hicolor/scalable/apps/orvanel.svg"
for png in "$usr"/share/icons/hicolor/*x*/apps/orvanel.png; do
  size=$(basename "$(dirname "$(dirname "$png")")")
  check "icon $size" test "$(identify -format '%wx%h' "$png")" = "$size"
done

# File types: every type the desktop entry and the metadata name is defined,
# and files are recognised as a file manager recognises them (GIO, with the
# system's types plus ours in a private database). A name ending in .txt is
# text's: native result files are typed by their first lines only where the
# name says nothing.
mime=$usr/share/mime/packages/orvanel.xml
check "mime file is well-formed" xmllint --noout "$mime"
defined=$(grep -o '<mime-type type="[^"]*"' "$mime" | cut -d'"' -f2 | sort)
in_desktop=$(grep '^MimeType=' "$desktop" | cut -d= -f2 | tr ';' '\n' | sed '/^$/d' | sort)
in_metainfo=$(grep -o '<mediatype>[^<]*' "$metainfo" | cut -d'>' -f2 | sort)
check "desktop entry opens exactly the defined types" test "$defined" = "$in_desktop"
check "metainfo provides exactly the defined types" test "$defined" = "$in_metainfo"

db=$stage/xdg
mkdir -p "$db/mime/packages" "$stage/files"
cp /usr/share/mime/packages/freedesktop.org.xml "$mime" "$db/mime/packages/"
update-mime-database "$db/mime" > "$stage/mime.log" 2>&1
if grep -qi "fail\|error" "$stage/mime.log"; then cat "$stage/mime.log"; fail=1; fi
f=$stage/files
cp "$source"/examples/*.txt "$f/"
cp "$source/examples/viga.txt" "$f/viga"
printf 'Notas\nsem marcador\n1 2\n' > "$f/notes.txt"
printf 'Notas\n# reunião\ntexto\n' > "$f/notes-with-a-heading.txt"
# A text shaped like a result file (a title, a "#" line, a line of numbers):
# its name ending in .txt keeps it text.
printf 'Lista de compras\n# mercado\n2 kg de arroz\n' > "$f/shopping.txt"
printf '# vtk DataFile Version 3.0\ncubo\nASCII\n' > "$f/cube.vtk"
printf '<?xml version="1.0"?>\n<VTKFile type="UnstructuredGrid"/>\n' > "$f/cube.vtu"
printf '<?xml version="1.0"?>\n<VTKFile type="PolyData"/>\n' > "$f/skin.vtp"
printf '<?xml version="1.0"?>\n<VTKFile type="PUnstructuredGrid"/>\n' > "$f/cube.pvtu"
printf '<?xml version="1.0"?>\n<VTKFile type="Collection"/>\n' > "$f/steps.pvd"
printf '$MeshFormat\n4.1 0 8\n$EndMeshFormat\n' > "$f/cube.msh"
printf '$MeshFormat\n4.1 0 8\n$EndMeshFormat\n' > "$f/cube-mesh"
printf '    1Ccube\n    1UUSER\n' > "$f/cube.frd"
while read -r name want; do
  got=$(XDG_DATA_HOME="$stage/none" XDG_DATA_DIRS="$db" gio info -a standard::content-type "$f/$name" |
    sed -n 's/.*standard::content-type: //p')
  check "$name is $want" test "$got" = "$want"
done << 'TABLE'
viga.txt                  text/plain
placa.txt                 text/plain
casca.txt                 text/plain
viga                      application/x-orvanel-results
notes.txt                 text/plain
notes-with-a-heading.txt  text/plain
shopping.txt              text/plain
cube.vtk                  application/x-vtk
cube.vtu                  application/x-vtk-unstructured-grid
skin.vtp                  application/x-vtk-polydata
cube.pvtu                 application/x-vtk-parallel-unstructured-grid
steps.pvd                 application/x-vtk-collection
cube.msh                  application/x-gmsh-mesh
cube-mesh                 application/x-gmsh-mesh
cube.frd                  application/x-calculix-frd
TABLE

# The manual page renders without a warning and names every option of --help.
page=$usr/share/man/man1/orvanel.1.gz
MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$page" > "$stage/man.txt" 2> "$stage/man.err" || true
check "man -l renders without warnings" test ! -s "$stage/man.err" -a -s "$stage/man.txt"
cat "$stage/man.err"
for option in $("$usr/bin/orvanel" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -q -- "$option" "$stage/man.txt" || { echo "FAIL: the manual page lacks $option"; fail=1; }
done
check "the manual page names the version" grep -q "Orvanel $version" "$stage/man.txt"

exit $fail
