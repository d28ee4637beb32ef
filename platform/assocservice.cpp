#include "assocservice.h"

// Defined by the platform's own file.
AssociationServiceFactory &platformAssociationServiceFactory();

namespace {
AssociationServiceFactory *installed = nullptr;
} // namespace

AssociationServiceFactory &associationServiceFactory()
{
    return installed ? *installed : platformAssociationServiceFactory();
}

void installAssociationServiceFactory(AssociationServiceFactory *factory)
{
    installed = factory;
}
