# Read by cpack before it builds a package. The Debian package takes its time stamps from
# SOURCE_DATE_EPOCH; when the caller sets none, the date of the newest changelog entry is used,
# so that every package built from the same sources is byte for byte the same.
if(CPACK_GENERATOR STREQUAL "DEB" AND NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(
        COMMAND dpkg-parsechangelog -l "${CPACK_YUVPLAYER_CHANGELOG}" -S Timestamp
        OUTPUT_VARIABLE changelog_time OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE status)
    if(status EQUAL 0)
        set(ENV{SOURCE_DATE_EPOCH} "${changelog_time}")
    endif()
endif()
