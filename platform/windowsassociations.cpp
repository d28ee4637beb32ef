#include "windowsassociations_p.h"

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
