CROSS_COMPILE = /opt/kits/rpi/tools/bin/arm-linux-gnueabihf-
GCC_MACHINE_DUMP = arm-linux-gnueabihf
