# Installation as a desktop program, and the Debian package built from it with `cpack -G DEB`.
include(GNUInstallDirs)

set(KAKIKOMI_APP_ID jp.kakikomi.Kakikomi)
set(KAKIKOMI_DATA_DIR ${CMAKE_INSTALL_DATADIR}/kakikomi)

target_compile_definitions(kakikomi_app PRIVATE KAKIKOMI_VERSION="${PROJECT_VERSION}")
target_compile_definitions(kakikomi PRIVATE KAKIKOMI_APP_ID="${KAKIKOMI_APP_ID}")

# The program finds its shipped prefecture list from its own folder, so an installation can be moved
# and a build folder works the same: the build gets a copy of the demo's list in the same place.
file(RELATIVE_PATH KAKIKOMI_SHARE_RELATIVE /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${KAKIKOMI_DATA_DIR})
target_compile_definitions(kakikomi_text PRIVATE KAKIKOMI_SHARE_RELATIVE="${KAKIKOMI_SHARE_RELATIVE}/")
configure_file(${PROJECT_SOURCE_DIR}/demo/jp-prefectures.txt
               ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${KAKIKOMI_SHARE_RELATIVE}/jp-prefectures.txt COPYONLY)

install(FILES ${PROJECT_SOURCE_DIR}/demo/jp-prefectures.txt DESTINATION ${KAKIKOMI_DATA_DIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${KAKIKOMI_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${KAKIKOMI_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/${KAKIKOMI_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The Debian package: the Qt, Qt WebKit, Qt WebEngine and QtKeychain libraries come from
# dpkg-shlibdeps, which reads Qt WebEngine's from the Chromium module in lib/kakikomi (its helper
# process and resources come with the libraries' own dependencies), and the pages and the dialog need some Japanese font. QtKeychain is also named
# outright, as the password depends on it; a keyring daemon is only recommended, since without one
# the password stays in profile.json as before. skkdic-extra's postal-code dictionary fills the profile
# dialog's address from the postal code; without it the dialog is as it was.
set(KAKIKOMI_PACKAGE_MAINTAINER "The Kakikomi developers <kakikomi@example.invalid>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kakikomi)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KAKIKOMI_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web browser that fills in Japanese web forms")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic, libqt5keychain1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gnome-keyring | kwalletmanager, skkdic-extra")
# The summary above is the first line; this is the rest.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
       "Kakikomi shows one page at a time and fills a form's inputs with the personal\n"
       "data you stored: click an input, pick a value from the menu that opens at the\n"
       "pointer, and it is written in and remembered for that page.")
include(CPack)
