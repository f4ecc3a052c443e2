# Yardsticks of the XML reader: pugixml and libxml2 parse the same answers.
find_package(pugixml REQUIRED)
find_package(LibXml2 REQUIRED)
target_link_libraries(${WEK_BENCH_TARGET} PRIVATE pugixml::pugixml LibXml2::LibXml2)
