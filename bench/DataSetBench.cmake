# The model scan needs the Qt part of the platform layer.
target_link_libraries(${WEK_BENCH_TARGET} PRIVATE wek_platform_qt)
