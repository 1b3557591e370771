# Runs at install time: writes the desktop entry with the installed program's
# path and installs it. Expects qv_desktop_template and qv_desktop_stage (a
# folder for the written file; its name is unique so installs may overlap).

set(exec "${CMAKE_INSTALL_PREFIX}/bin/QuorvANTIS")
# A path with spaces or other special characters is quoted the way the desktop
# entry format reads it: quote-level escapes first, then the string-level
# doubling of backslashes; a percent sign would start a field code.
if(NOT exec MATCHES "^[A-Za-z0-9/._+-]+$")
    string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" exec "${exec}")
    string(REPLACE "\\" "\\\\" exec "${exec}")
    string(REPLACE "%" "%%" exec "${exec}")
    set(exec "\"${exec}\"")
endif()

file(READ "${qv_desktop_template}" entry)
string(REPLACE "@QV_EXEC@" "${exec}" entry "${entry}")
string(RANDOM LENGTH 12 token)
set(staged "${qv_desktop_stage}/quorvantis-${token}.desktop")
file(WRITE "${staged}" "${entry}")
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/share/applications" TYPE FILE
    FILES "${staged}" RENAME quorvantis.desktop)
file(REMOVE "${staged}")
