// Placeholder translation unit so the library has a body before its parts land.
namespace qor {
int LibraryVersionMajor() { return 1; }
}  // namespace qor
