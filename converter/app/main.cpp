#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--version") == 0)) {
        std::printf("Vidorra 1.0.0\n");
        return 0;
    }
    std::fprintf(stderr, "Vidorra: conversion is not built yet.\n");
    return 2;
}
