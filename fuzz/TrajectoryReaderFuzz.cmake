# The binary trajectory reader's fuzz target; included by the fuzz build's
# CMakeLists.txt (which sets the libFuzzer and sanitizer flags).
add_executable(fuzz_trajectory_reader ${CMAKE_CURRENT_LIST_DIR}/TrajectoryReaderFuzz.cpp)
target_link_libraries(fuzz_trajectory_reader PRIVATE QorZelmCore)
target_compile_options(fuzz_trajectory_reader PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_trajectory_reader PRIVATE -fsanitize=fuzzer)
