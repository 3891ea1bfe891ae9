CONFIG +=  compile_examples qpa largefile use_gold_linker sse2 sse3 ssse3 sse4_1 sse4_2 avx pcre
QT_BUILD_PARTS +=  libs tools examples
QT_NO_DEFINES =  ALSA CUPS EGL EGLFS EGL_X11 IMAGEFORMAT_JPEG OPENVG STYLE_S60 TSLIB ZLIB
QT_QCONFIG_PATH = 
host_build {
    QT_CPU_FEATURES.x86_64 =  sse sse2
} else {
    QT_CPU_FEATURES.x86_64 =  sse sse2
}
QT_COORD_TYPE = double
styles += mac fusion windows
QT_CFLAGS_DBUS = -I/usr/include/dbus-1.0 -I/usr/lib/x86_64-linux-gnu/dbus-1.0/include  
QT_LIBS_DBUS = -ldbus-1  
