# The resource downloader driven by random host actions and service reports,
# with tasks a builder makes (no request is sent).
quarnkit_add_fuzzer(resource_downloader DEPS QuarnKit::download)
