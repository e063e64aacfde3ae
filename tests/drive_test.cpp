// Filled in by the query tests.
