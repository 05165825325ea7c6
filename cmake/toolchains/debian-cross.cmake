# What every cross toolchain here shares; included by the toolchain of one
# target after it has set CMAKE_SYSTEM_PROCESSOR and cross_triplet, the GNU
# triplet of Debian's cross compiler (package g++-TRIPLET). The compiler's own
# copy of the target's C and C++ libraries lies in /usr/TRIPLET.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${cross_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${cross_triplet}-g++)

# Target programs built here run on this machine when the kernel can run them:
# natively (i686 on x86-64), or through qemu-user registered with binfmt_misc
# (packages qemu-user-static and binfmt-support), which finds the target's
# dynamic loader and libraries below QEMU_LD_PREFIX. CMake starts the test
# executable with that setting; the tests pass it on to the programs they run.
set(CMAKE_CROSSCOMPILING_EMULATOR env QEMU_LD_PREFIX=/usr/${cross_triplet})
