#configuration
CONFIG +=  shared qpa release qt_no_framework
host_build {
    QT_ARCH = x86_64
    QT_TARGET_ARCH = x86_64
} else {
    QT_ARCH = x86_64
}
QT_CONFIG +=  minimal-config small-config medium-config large-config full-config fontconfig evdev xlib xrender xcb-plugin xcb-render xcb-glx xcb-xlib accessibility opengl shared qpa reduce_exports reduce_relocations clock-gettime clock-monotonic mremap getaddrinfo ipv6ifname getifaddrs inotify eventfd png freetype harfbuzz zlib nis iconv glib dbus openssl xcb xrender fontconfig concurrent audio-backend release

#versioning
QT_VERSION = 5.1.1
QT_MAJOR_VERSION = 5
QT_MINOR_VERSION = 1
QT_PATCH_VERSION = 1

#namespaces
QT_LIBINFIX =
QT_NAMESPACE =

QT_GCC_MAJOR_VERSION = 4
QT_GCC_MINOR_VERSION = 6
QT_GCC_PATCH_VERSION = 1
