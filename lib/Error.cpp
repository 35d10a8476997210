#include "plymark/Error.h"

#include "plymark/Document.h"

namespace plymark {
inline namespace v0 {

Error::Error(const std::string& message, std::int64_t offset)
    : std::runtime_error(message), offset_(offset) {}

Error::~Error() = default;

LayerReceiver::~LayerReceiver() = default;

void LayerReceiver::Sizing(const Layer&, int, int) {}

}  // namespace v0
}  // namespace plymark
