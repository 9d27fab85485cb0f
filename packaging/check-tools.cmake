# Read by cpack before it makes a package. Without dpkg-shlibdeps, CPack makes
# a Debian package with no Depends at all, and without file it fails with no
# word of why; so a missing tool stops it here, naming the package to install.
if(CPACK_GENERATOR STREQUAL "DEB")
    # Each tool, then the Debian package that has it.
    set(tools dpkg-shlibdeps dpkg-dev file file)
    while(tools)
        list(POP_FRONT tools tool package)
        find_program(${tool}_program ${tool} NO_CACHE)
        if(NOT ${tool}_program)
            message(FATAL_ERROR "${tool} is missing: install the Debian package ${package}")
        endif()
    endwhile()
endif()
