# Which folder of the numerical library may include which. Lower folders know nothing of the
# ones above them: the vector arithmetic and the quadrature rules know no model, the engines
# know no calibration, and nothing knows the Excel side. A file's include of another folder that
# is not listed here, or of a header without its folder, fails the configure with the line that
# does it.
#
# The one include that goes against the grain: the model class Heston (closedform/Heston.h)
# derives from the Differential Evolution solver (optimisation/DESolver.h), so that a calibration
# object is its own objective. That shape is fixed for the nine original worksheet functions.
set(HESTON_LAYERS
    "model:"
    "execution:"
    "vectormath:"
    "quadrature:vectormath"
    "blackscholes:model vectormath"
    "optimisation:execution"
    "closedform:model execution vectormath quadrature optimisation"
    "montecarlo:model execution closedform"
    "contour:model execution vectormath quadrature blackscholes"
    "finitedifference:model execution vectormath blackscholes contour"
    "pathsimulation:model execution vectormath quadrature blackscholes contour"
    "calibration:model execution optimisation blackscholes closedform contour")

function(heston_check_layering root)
    set(folders "")
    foreach(entry IN LISTS HESTON_LAYERS)
        string(REPLACE ":" ";" parts "${entry}")
        list(GET parts 0 folder)
        list(LENGTH parts count)
        set(allowed "")
        if(count GREATER 1)
            list(GET parts 1 allowed)
            string(REPLACE " " ";" allowed "${allowed}")
        endif()
        list(APPEND folders ${folder})
        set(allowed_${folder} ${folder} ${allowed})
    endforeach()
    file(GLOB files RELATIVE ${root} CONFIGURE_DEPENDS ${root}/*/*.h ${root}/*/*.cpp ${root}/*.h
         ${root}/*.cpp)
    set(errors "")
    foreach(file IN LISTS files)
        get_filename_component(folder ${file} DIRECTORY)
        if(NOT folder OR NOT folder IN_LIST folders)
            string(APPEND errors "\n  heston/${file}: not in a folder of HESTON_LAYERS")
            continue()
        endif()
        file(STRINGS ${root}/${file} lines REGEX "^#include \"")
        foreach(line IN LISTS lines)
            string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" included "${line}")
            string(FIND "${included}" "/" slash)
            if(slash LESS 1)
                string(APPEND errors "\n  heston/${file}: #include \"${included}\" names no folder")
                continue()
            endif()
            string(SUBSTRING "${included}" 0 ${slash} target)
            if(NOT target IN_LIST allowed_${folder})
                list(JOIN allowed_${folder} ", " listed)
                string(APPEND errors "\n  heston/${file}: #include \"${included}\": ${folder}/ "
                                     "may include only ${listed}")
            endif()
        endforeach()
    endforeach()
    if(errors)
        message(FATAL_ERROR "Includes that go the wrong way (cmake/Layering.cmake):${errors}")
    endif()
endfunction()
