// The host's application-framework libraries: container-root access, the
// container and logic-state utilities, and the document, scope and
// named-set utilities.
#pragma once

#include "appfw/ContainerRoot.h"
#include "appfw/AppUtilsContainer.h"
#include "appfw/LogicStateUtilities.h"
#include "appfw/AppUtilsDocument.h"
#include "appfw/AppUtilsDataModel.h"
