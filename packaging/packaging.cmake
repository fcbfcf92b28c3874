# Installation as a desktop program, and the Debian package built from it with `cpack -G DEB`.
include(GNUInstallDirs)

set(KAKIKOMI_APP_ID jp.kakikomi.Kakikomi)
set(KAKIKOMI_DATA_DIR ${CMAKE_INSTALL_DATADIR}/kakikomi)

target_compile_definitions(kakikomi_gui PRIVATE KAKIKOMI_VERSION="${PROJECT_VERSION}")
target_compile_definitions(kakikomi PRIVATE KAKIKOMI_APP_ID="${KAKIKOMI_APP_ID}")

# The program finds its shipped prefecture list from its own folder, so an installation can be moved
# and a build folder works the same: the build gets a copy of the demo's list in the same place.
file(RELATIVE_PATH KAKIKOMI_SHARE_RELATIVE /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${KAKIKOMI_DATA_DIR})
target_compile_definitions(kakikomi_core PRIVATE KAKIKOMI_SHARE_RELATIVE="${KAKIKOMI_SHARE_RELATIVE}/")
configure_file(${PROJECT_SOURCE_DIR}/demo/jp-prefectures.txt
               ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${KAKIKOMI_SHARE_RELATIVE}/jp-prefectures.txt COPYONLY)
