# Placeholder until the catalogue generator lands.
set(RAVELIN_CATALOGUE_SOURCES "")
set(RAVELIN_CATALOGUE_DEPENDS "")
