# Writes the schema file into a C++ source as a raw string.
file(READ ${IN} SCHEMA)
file(WRITE ${OUT} "// Made from schema.sql by embed_schema.cmake.\n"
    "namespace store { extern const char kSchemaV1[]; const char kSchemaV1[] = R\"schema(${SCHEMA})schema\"; }\n")
