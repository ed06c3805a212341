# fmt: header-only use of Debian's libfmt-dev. The cross compilers must not see the
# rest of /usr/include, so only the fmt folder is exposed, through a link. Included by the tree and
# by the benchmarks' own project.
set(TEV_FMT_INCLUDE "${CMAKE_BINARY_DIR}/third_party/include")
file(MAKE_DIRECTORY "${TEV_FMT_INCLUDE}")
file(CREATE_LINK /usr/include/fmt "${TEV_FMT_INCLUDE}/fmt" SYMBOLIC)
add_library(tev_fmt INTERFACE)
target_include_directories(tev_fmt SYSTEM INTERFACE "${TEV_FMT_INCLUDE}")
# The launcher formats no number by locale ("{:L}"): a fixed separator (44, the comma) keeps fmt
# from reaching for std::locale, whose facets are half a megabyte of the static runtime.
target_compile_definitions(tev_fmt INTERFACE FMT_HEADER_ONLY FMT_STATIC_THOUSANDS_SEPARATOR=44)
