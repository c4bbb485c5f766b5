# The installed control library: the imported target OrvSIP::OrvSIPUserAgentOCX.
include("${CMAKE_CURRENT_LIST_DIR}/OrvSIPUserAgentOCXTargets.cmake")
