# What `cmake --install` and the Debian package put on the system, and the release test.
#
# The package installs /usr/bin/quandrel, its desktop entry (the quandrel:// handler), the
# application icon in hicolor at every size and the tray's symbolic icon, the AppStream
# metainfo, the manual page and the bash and zsh completions. It has no Bundle/Info.json anywhere above the
# executable, so the updater finds no bundle to replace (AppBundle::running() is empty) and
# stays off: the package manager updates this copy.
set(QUANDREL_APP_ID org.quandrel.Quandrel)
set(QUANDREL_DESKTOP_FILE ${CMAKE_CURRENT_BINARY_DIR}/packaging/quandrel.desktop)
file(READ ${PROJECT_SOURCE_DIR}/tools/quandrel.desktop.in QUANDREL_DESKTOP_TEXT)
string(REPLACE "@QUANDREL@" "quandrel" QUANDREL_DESKTOP_TEXT "${QUANDREL_DESKTOP_TEXT}")
file(CONFIGURE OUTPUT ${QUANDREL_DESKTOP_FILE} CONTENT "${QUANDREL_DESKTOP_TEXT}" @ONLY)
# The entry KWin asks of a program before it hands it screenshots: the installed program's
# absolute path as the package installs it (CPACK_PACKAGING_INSTALL_PREFIX), without arguments.
# Quandrel writes the same for itself where it runs from elsewhere.
set(QUANDREL_SCREENSHOTS_DESKTOP_FILE ${CMAKE_CURRENT_BINARY_DIR}/packaging/quandrel-screenshots.desktop)
file(CONFIGURE OUTPUT ${QUANDREL_SCREENSHOTS_DESKTOP_FILE} CONTENT "[Desktop Entry]
Type=Application
Name=Quandrel
Exec=/usr/bin/quandrel
NoDisplay=true
X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2
")

set(QUANDREL_PACKAGE_MAINTAINER "Quandrel maintainers <maintainers@quandrel.org>" CACHE STRING
    "Maintainer named by the Debian package")
# Debian version: a prerelease ("1.2.0-beta.1") sorts before its release as "1.2.0~beta.1".
string(REPLACE "-" "~" QUANDREL_DEB_VERSION "${QUANDREL_VERSION}")

# The metainfo names this version; the manual page and the package's change log are
# compressed as Debian installs them.
string(TIMESTAMP QUANDREL_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog CONTENT
"quandrel (${QUANDREL_DEB_VERSION}) stable; urgency=medium

  * Quandrel ${QUANDREL_VERSION}.

 -- ${QUANDREL_PACKAGE_MAINTAINER}  ${QUANDREL_PACKAGE_DATE}
")
string(TIMESTAMP QUANDREL_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/${QUANDREL_APP_ID}.metainfo.xml.in
               ${CMAKE_CURRENT_BINARY_DIR}/packaging/${QUANDREL_APP_ID}.metainfo.xml @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/quandrel.1
             ${PROJECT_SOURCE_DIR}/ui/icons/quandrel-symbolic.svg ${PROJECT_SOURCE_DIR}/tools/quandrel.desktop.in)
foreach(source ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog ${PROJECT_SOURCE_DIR}/packaging/quandrel.1)
    get_filename_component(name ${source} NAME)
    execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/packaging/${name}.gz)
endforeach()

# The tray's symbol as themes ship symbolic icons: GTK recolours it for its panel, Plasma
# through the ColorScheme-Text class, and a theme may bring its own quandrel-symbolic.
file(READ ${PROJECT_SOURCE_DIR}/ui/icons/quandrel-symbolic.svg QUANDREL_SYMBOLIC_TEXT)
string(REGEX REPLACE "(<svg[^>]*>)" "\\1\n  <style id=\"current-color-scheme\" type=\"text/css\">.ColorScheme-Text { color:#2e3436; }</style>"
       QUANDREL_SYMBOLIC_TEXT "${QUANDREL_SYMBOLIC_TEXT}")
string(REPLACE "fill=\"currentColor\"" "class=\"ColorScheme-Text\" fill=\"currentColor\"" QUANDREL_SYMBOLIC_TEXT "${QUANDREL_SYMBOLIC_TEXT}")
set(QUANDREL_SYMBOLIC_ICON ${CMAKE_CURRENT_BINARY_DIR}/packaging/quandrel-symbolic.svg)
file(CONFIGURE OUTPUT ${QUANDREL_SYMBOLIC_ICON} CONTENT "${QUANDREL_SYMBOLIC_TEXT}" @ONLY)

include(GNUInstallDirs)
install(FILES ${QUANDREL_DESKTOP_FILE} ${QUANDREL_SCREENSHOTS_DESKTOP_FILE} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/quandrel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/packaging/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${QUANDREL_SYMBOLIC_ICON} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/symbolic/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/completions/quandrel.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME quandrel)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/completions/_quandrel DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/${QUANDREL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/quandrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quandrel)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quandrel)
set(CPACK_PACKAGE_VENDOR "The Quandrel developers")
set(CPACK_PACKAGE_CONTACT "${QUANDREL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${QUANDREL_DEB_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Window layouts, app shortcuts and screenshots from the tray")
set(CPACK_PACKAGE_DESCRIPTION "Quandrel is a small tray utility for X11 desktops: window layouts by global
shortcut and by dragging windows to screen edges, per-application shortcuts,
screenshots with a floating thumbnail, pinned images and an annotation editor.
Other programs drive it through quandrel:// command URLs.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries come from the binary (dpkg-shlibdeps); plugins and data it loads at run time are
# named here (the xcb platform plugin is in libqt6gui6, the SVG icon engine in libqt6svg6,
# both already named): the English text-recognition data.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The text-recognition engine is opened at run time, so shlibdeps does not see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libtesseract5, tesseract-ocr-eng")
# Qt's own texts in the user's language (Quandrel's are built into the binary).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-translations-l10n")
include(CPack)

if(QUANDREL_BUILD_TESTS)
    # Assembles the release artifacts from this build tree's binaries and checks them: the
    # AppDir on the virtual desktop, the signed zip, the Debian package (as root).
    add_test(NAME release_artifacts_test
             COMMAND ${PROJECT_SOURCE_DIR}/tests/release/release_artifacts_test.sh ${CMAKE_BINARY_DIR} ${QUANDREL_VERSION})
    set_tests_properties(release_artifacts_test PROPERTIES LABELS release TIMEOUT 600 RUN_SERIAL ON SKIP_RETURN_CODE 77)
    # The files beside the binary, as the tools that read them see them.
    foreach(check man bash zsh)
        add_test(NAME packaging_${check}_test COMMAND ${PROJECT_SOURCE_DIR}/tests/release/packaging_files_test.sh ${check} ${PROJECT_SOURCE_DIR})
    endforeach()
    add_test(NAME packaging_appstream_test COMMAND ${PROJECT_SOURCE_DIR}/tests/release/packaging_files_test.sh appstream
             ${CMAKE_CURRENT_BINARY_DIR}/packaging/${QUANDREL_APP_ID}.metainfo.xml)
    add_test(NAME packaging_desktop_test COMMAND ${PROJECT_SOURCE_DIR}/tests/release/packaging_files_test.sh desktop ${QUANDREL_DESKTOP_FILE})
    set_tests_properties(packaging_man_test packaging_bash_test packaging_zsh_test packaging_appstream_test packaging_desktop_test
                         PROPERTIES LABELS unit TIMEOUT 60 SKIP_RETURN_CODE 77)
endif()
