# Writes a manual page from its source, at build time:
#   cmake -DSOURCE=<page>.1[.in] -DCONTROLS=<controls.tsv> -DVERSION=<x.y.z> -DOUTPUT=<page>.1
#         -P render.cmake
# In a .in source, @VERSION@ becomes the version and @CONTROLS@ the keyboard and mouse table,
# one tagged paragraph per line of the controls file ("keys<TAB>action"), the table the README
# shows too.
cmake_minimum_required(VERSION 3.20)

file(READ "${SOURCE}" page)
if(SOURCE MATCHES "\\.in$")
    file(STRINGS "${CONTROLS}" rows)
    set(table "")
    foreach(row IN LISTS rows)
        string(REPLACE "\t" ";" fields "${row}")
        list(GET fields 0 keys)
        list(GET fields 1 action)
        string(REPLACE "-" "\\-" keys "${keys}")
        string(REPLACE "-" "\\-" action "${action}")
        string(APPEND table ".TP\n.B ${keys}\n${action}\n")
    endforeach()
    string(REGEX REPLACE "\n$" "" table "${table}")
    string(REPLACE "@CONTROLS@" "${table}" page "${page}")
    string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
endif()
file(WRITE "${OUTPUT}" "${page}")
