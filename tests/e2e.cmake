# e2e tests
