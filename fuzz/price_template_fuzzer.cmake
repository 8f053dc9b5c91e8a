# Price templates (placeholders and inline markdown) and search queries.
quarnkit_add_fuzzer(price_template DEPS QuarnKit::formatting QuarnKit::search)
