# What a distributor installs, and the packages that carry it (cpack): a .deb and a .tar.gz from the Linux
# build, a .zip from the Windows build. Each holds lomar-pack, lomar-xpress, the launcher stub where the
# packer looks for it, and the README; no test, benchmark or demo program.
include(GNUInstallDirs)

# Installing and packaging copy what is built and build nothing more (not the tests), so that packaging
# needs only the programs it ships built first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" platform)
if(WIN32)
  # One flat folder: the stub beside lomar-pack.exe, where the packer looks for it.
  install(TARGETS lomar-pack lomar-xpress lomar-launcher RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
  set(CPACK_GENERATOR ZIP)
else()
  # The Linux build cannot make the stub (it needs mingw-w64): the package takes the Windows build's.
  set(stub ${LOMAR_WINDOWS_BIN}/lomar-launcher.exe)
  install(TARGETS lomar-pack lomar-xpress RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(CODE "
    if(NOT EXISTS \"${stub}\")
      message(FATAL_ERROR \"${stub}: the launcher stub is missing. Build it first (cmake --preset windows && \"
                          \"cmake --build --preset windows --target lomar-launcher), or point LOMAR_WINDOWS_BIN \"
                          \"at the folder that holds it.\")
    endif()")
  install(FILES ${stub} DESTINATION ${CMAKE_INSTALL_DATADIR}/lomar)
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  set(CPACK_GENERATOR DEB TGZ)
  # The programs are built with debug information (RelWithDebInfo); the packages carry them without.
  set(CPACK_STRIP_FILES ON)
endif()

set(CPACK_PACKAGE_NAME lomar)
set(CPACK_PACKAGE_VENDOR "LOMAR")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME lomar-${PROJECT_VERSION}-${platform})
set(CPACK_PACKAGE_CONTACT "LOMAR packaging <packaging@lomar.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "packs a game folder into one portable Windows executable")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "lomar-pack makes LOMAR Vesperon's portable executable: one Windows program\n"
  "that carries the whole game and, started, brings a runtime folder beside\n"
  "itself up to date before it starts the game, on Windows and under Wine or\n"
  "Proton. lomar-pack runs on Linux, refuses the names the launcher or Windows\n"
  "would refuse, and writes the same bytes for the same inputs.\n"
  "\n"
  "The package holds lomar-pack, the launcher stub it packs the game into, and\n"
  "lomar-xpress, a command-line XPRESS-Huffman codec.")

# The .deb is written in a fixed order already; the tarball and the zip are written again in one.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/sorted-archive.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Signing comes after packing; Wine runs what was packed.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "osslsigncode, wine")

include(CPack)
