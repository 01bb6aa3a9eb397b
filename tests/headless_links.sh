#!/bin/sh
# Fails when a program that must run on a headless machine loads a window,
# graphics or desktop-bus library, directly or through another library.
status=0
for program in "$@"; do
    libs=$(ldd "$program") || { echo "ldd failed on $program"; exit 1; }
    found=$(printf '%s\n' "$libs" | grep -Eo 'lib(Qt6(Widgets|Gui|Charts|OpenGL|OpenGLWidgets|DBus)|GL|EGL|X11|xcb)\.so[^ ]*' | sort -u)
    if [ -n "$found" ]; then
        echo "$program loads:"
        printf '  %s\n' $found
        status=1
    fi
done
[ $status -eq 0 ] && echo "no window libraries in: $*"
exit $status
