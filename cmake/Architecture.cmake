# The architecture of the program's targets, kept true by the test "architecture"
# (cmake/CheckArchitecture.cmake), and drawn in docs/architecture.md.
#
# Each source folder under src/ is one target. A target may link only the project's targets named
# here for it, and its folder's sources may include only headers of its own folder and of those
# targets' folders. The data layer and the platform services link no widgets.
set(KRT_ARCH_TARGETS db platform category pricing install widgets params app)
set(KRT_ARCH_ALLOWED_db "")
set(KRT_ARCH_ALLOWED_platform "")
set(KRT_ARCH_ALLOWED_category db)
set(KRT_ARCH_ALLOWED_pricing category db)
set(KRT_ARCH_ALLOWED_install db)
set(KRT_ARCH_ALLOWED_widgets pricing category db platform)
set(KRT_ARCH_ALLOWED_params pricing widgets category db platform)
set(KRT_ARCH_ALLOWED_app params widgets pricing category platform db)
# Qt modules that must not reach a target, however indirectly.
set(KRT_ARCH_NO_WINDOWS Qt6::Gui Qt6::Widgets Qt6::PrintSupport)
set(KRT_ARCH_FORBIDDEN_db ${KRT_ARCH_NO_WINDOWS} Qt6::Network)
set(KRT_ARCH_FORBIDDEN_category ${KRT_ARCH_NO_WINDOWS} Qt6::Network)
set(KRT_ARCH_FORBIDDEN_pricing ${KRT_ARCH_NO_WINDOWS} Qt6::Network)
set(KRT_ARCH_FORBIDDEN_install ${KRT_ARCH_NO_WINDOWS} Qt6::Network)
set(KRT_ARCH_FORBIDDEN_platform ${KRT_ARCH_NO_WINDOWS} Qt6::Sql)

# Writes every target's direct links (LINK_LIBRARIES and INTERFACE_LINK_LIBRARIES) to a file the test reads: one line "name;link;link...".
function(krt_write_link_graph file)
  set(lines "")
  foreach(name IN LISTS KRT_ARCH_TARGETS)
    set(links "")
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(values krt_${name} ${property})
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
