# Writes a schema file into a C++ source as a raw string named NAME (kSchemaV1 when not given).
if(NOT DEFINED NAME)
    set(NAME kSchemaV1)
endif()
file(READ ${IN} SCHEMA)
get_filename_component(SOURCE_NAME ${IN} NAME)
file(WRITE ${OUT} "// Made from ${SOURCE_NAME} by embed_schema.cmake.\n"
    "namespace store { extern const char ${NAME}[]; const char ${NAME}[] = R\"schema(${SCHEMA})schema\"; }\n")
