# The Linux backends of the dialog layer and the shell: GTK 3 with WebKitGTK 4.1 for the windows,
# GIO for network folders and helper programs. Linux only; GTK is a dependency of the Linux build.
if(WIN32)
  return()
endif()
find_package(PkgConfig REQUIRED)
pkg_check_modules(MW_GIO REQUIRED IMPORTED_TARGET gio-2.0)
pkg_check_modules(MW_GTK REQUIRED IMPORTED_TARGET gtk+-3.0 webkit2gtk-4.1)
# The popup's shape goes to the X server through the shape extension.
pkg_check_modules(MW_XSHAPE REQUIRED IMPORTED_TARGET x11 xext)
find_program(MW_GLIB_COMPILE_RESOURCES glib-compile-resources REQUIRED)

# Network paths and URIs, the background mount and the shell: GIO only, no display needed.
add_library(mw_shell_gio STATIC
  ${CMAKE_CURRENT_LIST_DIR}/gtk/smb_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk/smb_mount.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk/shell_gio.cpp)
mw_target(mw_shell_gio)
target_link_libraries(mw_shell_gio PUBLIC mw_platform PkgConfig::MW_GIO)

# The icon, compiled into the backend (generated C, built without our warning set).
set(_mw_icons_xml ${CMAKE_CURRENT_LIST_DIR}/gtk/icons.gresource.xml)
set(_mw_icons_c ${CMAKE_CURRENT_BINARY_DIR}/mw_icons.c)
set(_mw_icon_dir ${PROJECT_SOURCE_DIR}/resources/icon)
add_custom_command(
  OUTPUT ${_mw_icons_c}
  COMMAND ${MW_GLIB_COMPILE_RESOURCES} --sourcedir=${_mw_icon_dir} --generate-source
          --manual-register --c-name=mw_icons --target=${_mw_icons_c} ${_mw_icons_xml}
  DEPENDS ${_mw_icons_xml} ${_mw_icon_dir}/marlowick-16.png ${_mw_icon_dir}/marlowick-32.png
          ${_mw_icon_dir}/marlowick-48.png ${_mw_icon_dir}/marlowick-256.png
  COMMENT "Compiling the icon resources of the GTK backend")
add_library(mw_gtk_icons OBJECT ${_mw_icons_c})
target_link_libraries(mw_gtk_icons PRIVATE PkgConfig::MW_GIO)

add_library(mw_ui_gtk STATIC
  ${CMAKE_CURRENT_LIST_DIR}/gtk/gtk_ui.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk/gtk_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk/gtk_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk/gtk_container.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk/gtk_popup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gtk/gtk_paint.cpp
  $<TARGET_OBJECTS:mw_gtk_icons>)
mw_target(mw_ui_gtk)
target_link_libraries(mw_ui_gtk PUBLIC mw_ui mw_shell_gio PkgConfig::MW_GTK PRIVATE PkgConfig::MW_XSHAPE)

# What a Linux program links for CreatePlatformUi: the GTK backend, made on first use, with message
# boxes on standard error where no display can be opened.
add_library(mw_ui_platform STATIC ${CMAKE_CURRENT_LIST_DIR}/gtk/platform_ui_gtk.cpp)
mw_target(mw_ui_platform)
target_link_libraries(mw_ui_platform PUBLIC mw_ui_gtk mw_ui_headless)
