#include "sync/valueHandler.h"

namespace vela {
ValueHandler& ValueHandler::GetInstance() { static ValueHandler h; return h; }
ValueHandler::ValueHandler() {}
ValueHandler::~ValueHandler() {}
PackedData ValueHandler::PackVtValue(const pxr::VtValue&) const { return {}; }
pxr::VtValue ValueHandler::UnpackVtValue(const PackedData&) const { return {}; }
pxr::VtValue ValueHandler::UnpackVtValue(PackedDataImpl&) const { return {}; }
pxr::VtValue ValueHandler::UnpackVtValue(const std::string&) const { return {}; }
}
