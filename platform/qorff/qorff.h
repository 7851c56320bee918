// The host's forcefield base library, all of it.
#pragma once

#include "qorff/AtomType.h"
#include "qorff/AtomTypeOrderingComparator.h"
#include "qorff/Forcefield.h"
#include "qorff/ForcefieldEditor.h"
#include "qorff/FunctionalForm.h"
#include "qorff/Interaction.h"
#include "qorff/InteractionType.h"
#include "qorff/NumberFormat.h"
#include "qorff/ObjectWithName.h"
#include "qorff/Option.h"
#include "qorff/OptionDescription.h"
#include "qorff/Parameter.h"
#include "qorff/ParameterDescription.h"
#include "qorff/ServerDescription.h"
