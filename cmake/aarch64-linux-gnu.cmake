# Cross-builds the suite for arm64 Debian desktops on an amd64 Debian machine with the arm64
# libraries installed through multiarch (packaging/install-deps.sh arm64). Built programs that
# the build or the tests run go through qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu /usr)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(Qt5_DIR /usr/lib/aarch64-linux-gnu/cmake/Qt5)
set(PKG_CONFIG_EXECUTABLE /usr/bin/aarch64-linux-gnu-pkg-config)
# No -L or QEMU_LD_PREFIX: the cross toolchain's loader does not match the arm64 libc and hangs
# every program that starts a thread; libc6:arm64 puts the right loader under /lib.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-aarch64)
