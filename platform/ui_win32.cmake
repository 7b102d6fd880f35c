# The Win32 backend of the dialog layer (real dialogs from the templates, the browser control, the
# folder browser, the shaped popup) and the shell for Windows; Windows builds only.
if(NOT WIN32)
  return()
endif()
# The manifest (and, for the program, the icon) come in resource scripts.
enable_language(RC)

add_library(mw_ui_win32 STATIC
  ${CMAKE_CURRENT_LIST_DIR}/win32/ui_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/ui_win32_browser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/ui_win32_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/ui_win32_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/ui_win32_popup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/ui_win32_template.cpp
  ${CMAKE_CURRENT_LIST_DIR}/win32/shell_win32.cpp)
mw_target(mw_ui_win32)
target_link_libraries(mw_ui_win32 PUBLIC mw_ui mw_page_fetch
                      PRIVATE comctl32 ole32 oleaut32 uuid shell32 mpr gdi32 user32)

# A program with windows links this resource script (the manifest) and resources/marlowick.rc
# (icon 128) among its sources.
set(MW_WIN32_MANIFEST_RC ${CMAKE_CURRENT_LIST_DIR}/win32/ui_win32.rc CACHE INTERNAL
    "Resource script with the manifest of the Windows programs with windows")
