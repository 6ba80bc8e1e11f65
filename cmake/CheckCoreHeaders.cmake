# Fails when a file of the portable core includes an OS, Win32 or Qt header, or a header of a
# platform implementation. The core reaches every service through the interfaces in platform/.
file(GLOB_RECURSE files
    ${ROOT}/app/*.h ${ROOT}/app/*.cpp ${ROOT}/engine/*.h ${ROOT}/engine/*.cpp
    ${ROOT}/target/*.h ${ROOT}/target/*.cpp ${ROOT}/shell/*.h ${ROOT}/shell/*.cpp
    ${ROOT}/archive/*.h ${ROOT}/archive/*.cpp)
file(GLOB interfaces ${ROOT}/platform/*.h)
list(APPEND files ${interfaces})
set(forbidden
    "#[ \t]*include[ \t]*[<\"](windows|winioctl|shlobj|shlwapi|shellapi|commctrl|objbase|ole2|winreg|winuser)\\.h"
    "#[ \t]*include[ \t]*[<\"]Q[A-Za-z]+"
    "#[ \t]*include[ \t]*[<\"](linux|sys|asm|bits)/"
    "#[ \t]*include[ \t]*[<\"](unistd|fcntl|dirent|pthread|dlfcn|poll|termios|libudev|blkid|dbus)"
    "#[ \t]*include[ \t]*[<\"]platform/(fake|linux|qt|win32)/")
set(failed "")
foreach(file ${files})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${lines})
        foreach(pattern ${forbidden})
            if(line MATCHES "${pattern}")
                string(APPEND failed "\n  ${file}: ${line}")
            endif()
        endforeach()
    endforeach()
endforeach()
if(failed)
    message(FATAL_ERROR "The core includes platform headers:${failed}")
endif()
if(STAMP)
    file(TOUCH ${STAMP})
endif()
