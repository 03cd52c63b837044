// MPEG-4 decoder component for the Osprey family (entry points filled in by the decoding work).
namespace qor_osprey {}
