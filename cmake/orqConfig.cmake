# find_package(orq): the imported target orq::orq (liborq.so and the include
# directory that holds orq/Dll.h). Its Boost and thread libraries are linked
# into liborq.so itself, so a host needs nothing else.
include("${CMAKE_CURRENT_LIST_DIR}/orqTargets.cmake")
