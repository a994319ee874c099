#include "app/tool_trust.h"

namespace app {

bool isPublishersFile(const SignatureCheck& check, const std::string& publisher) {
    if (publisher.empty())
        return true;
    return check.status == kTrustValid && check.signer == publisher;
}

}  // namespace app
