# Installation and the Debian package.
#
#   cmake --install BUILD [--prefix /usr/local]
#     bin/xhs-saver, bin/xhs-saver-window
#     share/applications/xhs-saver.desktop
#     share/icons/hicolor/scalable/apps/xhs-saver.svg
#     share/man/man1/xhs-saver.1.gz   (made from the built program's --help)
#     share/doc/xhs-saver/README.md
#   cpack --config BUILD/CPackConfig.cmake   -> xhs-saver_VERSION_ARCH.deb
#
# scripts/package.sh runs the whole package build and checks the result.

include(GNUInstallDirs)

set(XHS_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")

if(TARGET xhs-saver)
  install(TARGETS xhs-saver RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  # xhs-saver starts the window program from its own folder.
  if(TARGET xhs-saver-window)
    install(TARGETS xhs-saver-window RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  endif()

  # The manual page is made from the program's own --help, so it never lists
  # an option the program lacks. It needs the program to run on this machine.
  if(NOT CMAKE_CROSSCOMPILING)
    set(XHS_MANPAGE "${PROJECT_BINARY_DIR}/man/xhs-saver.1.gz")
    add_custom_command(
      OUTPUT "${XHS_MANPAGE}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${PROJECT_BINARY_DIR}/man"
      COMMAND sh "${XHS_PACKAGING_DIR}/make-manpage.sh" "$<TARGET_FILE:xhs-saver>"
              "${PROJECT_VERSION}" "${XHS_MANPAGE}"
      DEPENDS xhs-saver "${XHS_PACKAGING_DIR}/make-manpage.sh"
      COMMENT "Making the manual page from xhs-saver --help"
      VERBATIM)
    add_custom_target(xhs-saver-man ALL DEPENDS "${XHS_MANPAGE}")
    install(FILES "${XHS_MANPAGE}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  endif()
endif()

install(FILES "${XHS_PACKAGING_DIR}/xhs-saver.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${XHS_PACKAGING_DIR}/xhs-saver.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
install(FILES "${PROJECT_SOURCE_DIR}/README.md"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}")

# --- Debian package ---------------------------------------------------------
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "xhs-saver")
set(CPACK_PACKAGE_VENDOR "xhs-saver maintainers")
set(CPACK_PACKAGE_CONTACT "xhs-saver maintainers <maintainers@users.noreply.c-seed-9c9b082b.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "save the pictures of a Xiaohongshu note")
set(CPACK_PACKAGE_DESCRIPTION
    "Paste the share text that the Xiaohongshu (小红书) app copies, or a bare note
link, into the small window, or pass it on the command line: xhs-saver
resolves the short link, fetches the note page and writes every picture of
the note into a folder, showing its progress as it goes.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# The libraries (Qt, libcurl, PCRE2, ICU) are found by dpkg-shlibdeps from the
# binary; the certificates are read at run time, so they are named here:
# certificates are always verified and without them no https request works.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ca-certificates")
# The window's texts are Chinese: without a CJK font they show as boxes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/;/build/;/build-[^/]*/")
include(CPack)
