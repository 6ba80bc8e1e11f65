// The in-memory platform for tests; see FakePlatform.h.
