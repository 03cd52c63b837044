// Placeholder translation unit until the AVI writer lands.
namespace vidorra {}
