# Writes OUTPUT from TEMPLATE with VERSION_TEXT set to VERSION, plus " (git REVISION)" when
# SOURCE_DIR is a git checkout and git is at hand. Run at every build (cmake -P); the file is
# rewritten only when its text changes, so an unchanged revision rebuilds nothing.
set(VERSION_TEXT "${VERSION}")
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE AND EXISTS "${SOURCE_DIR}/.git")
    # --exclude=* ignores tags: always the abbreviated commit, "-dirty" for local changes.
    execute_process(
        COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" describe --always --dirty --exclude=*
        OUTPUT_VARIABLE revision
        OUTPUT_STRIP_TRAILING_WHITESPACE
        ERROR_QUIET
        RESULT_VARIABLE failed)
    if(NOT failed AND revision)
        set(VERSION_TEXT "${VERSION} (git ${revision})")
    endif()
endif()
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
