# Toolchain for the x86-64 edition: the host's own compiler and Debian's
# amd64 packages, with the i386 multiarch tree kept out of every search.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_LIBRARY_ARCHITECTURE x86_64-linux-gnu)
set(CMAKE_C_FLAGS_INIT "-m64")
set(CMAKE_CXX_FLAGS_INIT "-m64")
set(CMAKE_PREFIX_PATH /usr/lib/x86_64-linux-gnu/cmake)
set(CMAKE_IGNORE_PATH /usr/lib/i386-linux-gnu /usr/lib/i386-linux-gnu/cmake)
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/x86_64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
