#pragma once

// The association service's seam, in the manner of registrysettings_p.h:
// each platform's file defines the platform's factory, and
// associationServiceFactory() hands it out unless another has been
// installed. Tests install stand-ins that fail on demand.

#include "windowsassociations.h"

AssociationServiceFactory &platformAssociationServiceFactory();

// Installing nullptr restores the platform's factory.
void installAssociationServiceFactory(AssociationServiceFactory *factory);
