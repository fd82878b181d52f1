# The architecture of the project's targets, kept true by the test "architecture"
# (cmake/CheckArchitecture.cmake), and drawn in docs/architecture.md.
#
# Each folder under src/ is one library krt_<folder> of the program krt550, and the program links
# every one of them. Each folder under tools/ is one target of the tools: a library krt_<folder>,
# or the executable named by KRT_ARCH_EXECUTABLE_<folder>. A target may link only the project's
# targets named here for it, and its folder's sources may include only headers of its own folder
# and of those targets' folders. The data layer, the platform services and the data-layer tools
# link no widgets. The connection texts' entries (conntext) are read with Qt Core alone, so that
# the database layer and the platform services share one reader without reaching each other's
# Qt modules. The command line (cli) stands on the data layer and the platform alone.
set(KRT_ARCH_PROGRAM krt550)
set(KRT_ARCH_TARGETS conntext db platform category pricing widgets params app cli)
set(KRT_ARCH_ALLOWED_conntext "")
set(KRT_ARCH_ALLOWED_db conntext)
set(KRT_ARCH_ALLOWED_platform conntext)
set(KRT_ARCH_ALLOWED_category db)
set(KRT_ARCH_ALLOWED_pricing category db)
set(KRT_ARCH_ALLOWED_widgets pricing category db platform)
set(KRT_ARCH_ALLOWED_params pricing widgets category db platform)
set(KRT_ARCH_ALLOWED_app params widgets pricing category platform db)
set(KRT_ARCH_ALLOWED_cli pricing category db platform)

# The folders of tests/ mirror those of src/ and tools/; besides them stand only the test-support
# library, the robustness trials and the real-window acceptance test.
set(KRT_ARCH_TEST_KINDS support robustness acceptance)

set(KRT_ARCH_TOOLS catalog sampledata servertables installation pgserver install bench)
set(KRT_ARCH_EXECUTABLE_install krt550-install)
set(KRT_ARCH_EXECUTABLE_bench krt550-bench)
set(KRT_ARCH_ALLOWED_catalog "")
set(KRT_ARCH_ALLOWED_sampledata catalog)
set(KRT_ARCH_ALLOWED_servertables sampledata catalog)
set(KRT_ARCH_ALLOWED_installation sampledata catalog)
set(KRT_ARCH_ALLOWED_pgserver "")
set(KRT_ARCH_ALLOWED_install installation sampledata catalog)
set(KRT_ARCH_ALLOWED_bench ${KRT_ARCH_TARGETS} installation servertables sampledata catalog pgserver)

# Qt modules that must not reach a target, however indirectly.
set(KRT_ARCH_NO_WINDOWS Qt6::Gui Qt6::Widgets Qt6::PrintSupport)
set(KRT_ARCH_FORBIDDEN_conntext ${KRT_ARCH_NO_WINDOWS} Qt6::Network Qt6::Sql)
set(KRT_ARCH_FORBIDDEN_db ${KRT_ARCH_NO_WINDOWS} Qt6::Network)
set(KRT_ARCH_FORBIDDEN_category ${KRT_ARCH_NO_WINDOWS} Qt6::Network)
set(KRT_ARCH_FORBIDDEN_pricing ${KRT_ARCH_NO_WINDOWS} Qt6::Network)
set(KRT_ARCH_FORBIDDEN_platform ${KRT_ARCH_NO_WINDOWS} Qt6::Sql)
foreach(tool catalog sampledata servertables installation pgserver install)
  set(KRT_ARCH_FORBIDDEN_${tool} ${KRT_ARCH_NO_WINDOWS} Qt6::Network)
endforeach()
set(KRT_ARCH_FORBIDDEN_cli ${KRT_ARCH_NO_WINDOWS})

# The target of a folder of src/ or tools/.
function(krt_arch_target folder out)
  if(DEFINED KRT_ARCH_EXECUTABLE_${folder})
    set(${out} ${KRT_ARCH_EXECUTABLE_${folder}} PARENT_SCOPE)
  else()
    set(${out} krt_${folder} PARENT_SCOPE)
  endif()
endfunction()

# Writes the direct links (LINK_LIBRARIES and INTERFACE_LINK_LIBRARIES) of the program and of
# every folder's target to a file the test reads: one line "name:link,link..." each, named by the
# folder (the program by its own name). A declared target that does not exist gets no line.
function(krt_write_link_graph file)
  set(lines "")
  foreach(name ${KRT_ARCH_PROGRAM} ${KRT_ARCH_TARGETS} ${KRT_ARCH_TOOLS})
    if(name STREQUAL KRT_ARCH_PROGRAM)
      set(target ${name})
    else()
      krt_arch_target(${name} target)
    endif()
    if(NOT TARGET ${target})
      continue()
    endif()
    set(links "")
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(values ${target} ${property})
      if(values)
        foreach(value IN LISTS values)
          string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" value "${value}")
          # Leaves out the common options and the objects of Qt's resource libraries.
          if(NOT value STREQUAL "krt_options" AND NOT value MATCHES "^\\$<|_resources_")
            list(APPEND links "${value}")
          endif()
        endforeach()
      endif()
    endforeach()
    list(REMOVE_DUPLICATES links)
    string(REPLACE ";" "," links "${links}")
    string(APPEND lines "${name}:${links}\n")
  endforeach()
  file(WRITE "${file}" "${lines}")
endfunction()
