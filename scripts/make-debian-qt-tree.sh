#!/usr/bin/env bash
# Copies Debian's installed Qt 5 or Qt 6 base development packages into a tree that keeps
# Debian's layout relative to /usr, to try the patcher on a real Qt 5.15 or Qt 6.
#   make-debian-qt-tree.sh 5|6 DIR
#     DIR must not exist or be empty. Regular files and symbolic links are copied as they are
#     (documentation, manual pages and lintian overrides left out); no file's content is changed.
#     The only change: a link naming an absolute /usr/... target that is itself copied is made
#     relative, so the tree does not lead back into the system's Qt.
set -euo pipefail
here="$(dirname "$(readlink -f "$0")")"
usage="usage: make-debian-qt-tree.sh 5|6 DIR"
major="${1:?$usage}"
dir="${2:?$usage}"

case "$major" in
    5) packages=(libqt5core5a libqt5gui5 libqt5widgets5 libqt5network5 libqt5dbus5 libqt5concurrent5
                 libqt5printsupport5 libqt5sql5 libqt5test5 libqt5xml5 qtbase5-dev qtbase5-dev-tools
                 qt5-qmake qt5-qmake-bin) ;;
    6) packages=(libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6dbus6 libqt6concurrent6
                 libqt6opengl6 libqt6openglwidgets6 libqt6printsupport6 libqt6sql6 libqt6test6 libqt6xml6
                 qt6-base-dev qt6-base-dev-tools qmake6 qmake6-bin) ;;
    *) echo "error: Qt major version must be 5 or 6, not '$major'" >&2; exit 2 ;;
esac
[[ ! -e "$dir" || -z "$(ls -A "$dir")" ]] || { echo "error: $dir is not empty" >&2; exit 1; }

"$here/deps.sh" debian-qt
triplet="$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || gcc -dumpmachine)"

work="$(mktemp -d)"
trap 'rm -rf -- "$work"' EXIT
timeout 60 dpkg -L "${packages[@]}" > "$work/listed"

# A path below a listed link to a directory is copied with that link, not a second time.
declare -A links=()
kept=()
while IFS= read -r path; do
    [[ "$path" == /usr/* ]] || continue
    case "$path" in /usr/share/doc/*|/usr/share/man/*|/usr/share/lintian/*) continue ;; esac
    if [[ -L "$path" ]]; then
        links["$path"]=1
        kept+=("$path")
    elif [[ -f "$path" ]]; then
        kept+=("$path")
    fi
done < <(sort -u "$work/listed")
: > "$work/members"
for path in "${kept[@]}"; do
    parent="${path%/*}" behind_link=
    while [[ "$parent" == /usr/* ]]; do
        [[ -n "${links[$parent]:-}" ]] && { behind_link=1; break; }
        parent="${parent%/*}"
    done
    [[ -z "$behind_link" ]] && printf '%s\n' "${path#/usr/}" >> "$work/members"
done

mkdir -p "$dir"
# tar keeps links as links, hard links as hard links, modes and times as they are.
timeout 300 tar -C /usr --no-recursion -cf - -T "$work/members" | timeout 300 tar -C "$dir" -xpf -

relative=0
while IFS= read -r -d '' link; do
    target="$(readlink "$link")"
    [[ -e "$dir/${target#/usr/}" || -L "$dir/${target#/usr/}" ]] || continue
    ln -sfn "$(realpath -m -s --relative-to="$(dirname "$link")" "$dir/${target#/usr/}")" "$link"
    echo "made relative: ${link#"$dir"/} -> $(readlink "$link") (was $target)"
    relative=$((relative + 1))
done < <(find "$dir" -type l -lname '/usr/*' -print0)

core="$dir/lib/$triplet/libQt${major}Core.so.$major"
[[ -e "$core" ]] || { echo "error: $core is missing: is the multiarch triplet '$triplet' right?" >&2; exit 1; }
echo "Qt $major from ${#packages[@]} packages into $dir: $(wc -l < "$work/members") files and links" \
     "($relative absolute links made relative), $(du -sh "$dir" | cut -f1)"
