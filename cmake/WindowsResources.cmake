# zel_add_windows_resources(TARGET DESCRIPTION): gives a Windows program the project's icon, the
# manifest (run with the invoking user's rights, version 6 common controls) and a version resource
# holding the project's version.
function(zel_add_windows_resources target description)
    set(ZEL_RC_NAME ${target})
    set(ZEL_RC_DESCRIPTION "${description}")
    set(ZEL_RC_ICON "${PROJECT_SOURCE_DIR}/resources/zel-qt-patcher.ico")
    set(ZEL_RC_MANIFEST_FILE "${PROJECT_BINARY_DIR}/zel-qt-patcher.manifest")
    configure_file(${PROJECT_SOURCE_DIR}/app/zel-qt-patcher.manifest.in ${ZEL_RC_MANIFEST_FILE} @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/app/program.rc.in ${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    if(MSVC)
        target_sources(${target} PRIVATE ${ZEL_RC_MANIFEST_FILE})
    else()
        set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc APPEND PROPERTY COMPILE_DEFINITIONS ZEL_RC_MANIFEST)
    endif()
endfunction()
