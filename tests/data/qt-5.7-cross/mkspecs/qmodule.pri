CONFIG +=  cross_compile compile_examples qpa largefile precompile_header use_gold_linker enable_new_dtags pcre
QT_BUILD_PARTS +=  libs
QT_NO_DEFINES =  ALSA CUPS EGL_X11 FONTCONFIG GLIB IMAGEFORMAT_JPEG LIBPROXY OPENSSL PULSEAUDIO SSL TSLIB XRENDER
QT_QCONFIG_PATH = 
host_build {
    QT_CPU_FEATURES.x86_64 =  mmx sse sse2
} else {
    QT_CPU_FEATURES.arm = 
}
QT_COORD_TYPE = double
styles += mac fusion windows
DEFINES += QT_NO_MTDEV
QMAKE_CFLAGS_EGL = -I/opt/kits/rpi/sysroot/opt/vc/include
QT_LIBS_DBUS = -L/opt/kits/rpi/sysroot//usr/lib/arm-linux-gnueabihf -ldbus-1 
QT_CFLAGS_DBUS = -I/opt/kits/rpi/sysroot//usr/include/dbus-1.0 -I/opt/kits/rpi/sysroot//usr/lib/arm-linux-gnueabihf/dbus-1.0/include 
QT_HOST_CFLAGS_DBUS = -I/usr/include/dbus-1.0 -I/usr/lib/x86_64-linux-gnu/dbus-1.0/include 
