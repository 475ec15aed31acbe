# Writes "<sha256>  <name>" for FILE into OUTPUT, as sha256sum -c reads it.
file(SHA256 "${FILE}" hash)
get_filename_component(name "${FILE}" NAME)
file(WRITE "${OUTPUT}" "${hash}  ${name}\n")
