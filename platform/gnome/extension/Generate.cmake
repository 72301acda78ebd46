# Makes one flavour of the Shell extension from the one source of its logic:
#   cmake -DFLAVOUR=legacy|modules -DSOURCE=<this folder> -DOUTPUT=<extension folder> -P Generate.cmake
# legacy is what GNOME Shell 43 and 44 load, modules (ES modules) what 45 and later load.
if(FLAVOUR STREQUAL "legacy")
    set(SHELL_VERSIONS "\"43\", \"44\"")
elseif(FLAVOUR STREQUAL "modules")
    set(SHELL_VERSIONS "\"45\", \"46\", \"47\", \"48\"")
else()
    message(FATAL_ERROR "unknown flavour ${FLAVOUR}")
endif()
file(READ ${SOURCE}/${FLAVOUR}-header.js header)
file(READ ${SOURCE}/service.js service)
file(READ ${SOURCE}/${FLAVOUR}-footer.js footer)
string(REGEX MATCH "QUANDREL_INTERFACE_VERSION = ([0-9]+)" _ "${service}")
set(QUANDREL_INTERFACE_VERSION ${CMAKE_MATCH_1})
file(MAKE_DIRECTORY ${OUTPUT})
file(WRITE ${OUTPUT}/extension.js.new "${header}\n${service}${footer}")
file(COPY_FILE ${OUTPUT}/extension.js.new ${OUTPUT}/extension.js ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}/extension.js.new)
configure_file(${SOURCE}/metadata.json.in ${OUTPUT}/metadata.json @ONLY)

# The slots the extension binds shortcuts in (it keeps them in memory), as many as service.js
# says, compiled as the Shell reads them.
string(REGEX MATCH "QUANDREL_SHORTCUT_SLOTS = ([0-9]+)" _ "${service}")
math(EXPR last "${CMAKE_MATCH_1} - 1")
set(keys "")
foreach(i RANGE ${last})
    string(APPEND keys "    <key name=\"shortcut-${i}\" type=\"as\"><default>[]</default></key>\n")
endforeach()
file(MAKE_DIRECTORY ${OUTPUT}/schemas)
file(WRITE ${OUTPUT}/schemas/org.quandrel.shell.gschema.xml
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<schemalist>\n  <schema id=\"org.quandrel.shell\" path=\"/org/quandrel/shell/\">\n${keys}  </schema>\n</schemalist>\n")
execute_process(COMMAND ${GLIB_COMPILE_SCHEMAS} ${OUTPUT}/schemas RESULT_VARIABLE compiled)
if(NOT compiled EQUAL 0)
    message(FATAL_ERROR "glib-compile-schemas failed for ${OUTPUT}/schemas")
endif()
