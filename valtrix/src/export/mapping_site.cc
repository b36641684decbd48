#include "export/export_mapping.h"

namespace valtrix {
namespace {

using enum Conversion;
using enum FormRule;

// AprSite -> site, zoning, utilities, off-site improvements and flood-hazard keys.
constexpr ExportStep kSite[] = {
    {"T_DIMENS", "SITE_DIMENSIONS.1", kText},
    {"T_SITEAREA", "SITE_AREA.1", kText},
    {"T_CORNERY", "SITE_CORNER_LOT_YES_X.1", kCheck},
    {"T_CORNERN", "SITE_CORNER_LOT_NO_X.1", kCheck},
    {"T_ZONING", "SITE_ZONE_CLASS_DESC.1", kText},
    {"T_ZLEGAL", "SITE_ZONE_LEGAL_X.1", kCheck},
    {"T_ZLEGNON", "SITE_ZONE_LEGAL_NON_X.1", kCheck},
    {"T_ZILLEGAL", "SITE_ZONE_ILLEGAL_X.1", kCheck},
    {"T_ZNOZONE", "SITE_ZONE_NO_ZONING_X.1", kCheck},
    {"T_HIGHPRES", "SITE_HB_USE_PRESENT_X.1", kCheck},
    {"T_HIGHOTHR", "SITE_HB_USE_OTHER_X.1", kCheck},
    {"T_HIOTHEXP", "SITE_HB_USE_OTHER_EXPL.1", kText},
    {"T_ELECPUB", "UTIL_ELECTRIC_PUB_X.1", kCheck},
    {"T_ELEOTHCK", "UTIL_ELECTRIC_OTHER_X.1", kCheck},
    {"T_ELECOTH", "UTIL_ELECTRIC_DESC.1", kText},
    {"T_GASPUBCK", "UTIL_GAS_PUBLIC_X.1", kCheck},
    {"T_GASOTHCK", "UTIL_GAS_OTHER_X.1", kCheck},
    {"T_GASOTH", "UTIL_GAS_DESC.1", kText},
    {"T_WATPUBCK", "UTIL_WATER_PUB_X.1", kCheck},
    {"T_WATOTHCK", "UTIL_WATER_PRIV_X.1", kCheck},
    {"T_WATOTH", "UTIL_WATER_DESC.1", kText},
    {"T_SANPUBCK", "UTIL_SAN_SEWER_PUB_X.1", kCheck},
    {"T_SANOTHCK", "UTIL_SAN_SEWER_PRIV_X.1", kCheck},
    {"T_SANOTH", "UTIL_SAN_SEWER_DESC.1", kText},
    {"T_STORMPUB", "UTIL_STORM_SEWER_PUB_X.1", kCheck},
    {"T_STORMOTH", "UTIL_STORM_SEWER_DESC.1", kText},
    {"T_STRTTYP", "OSIM_STREET_TYPE.1", kText},
    {"T_STRTPUB", "OSIM_STREET_PUB_X.1", kCheck},
    {"T_STRTPVT", "OSIM_STREET_PRIV_X.1", kCheck},
    {"T_CURBTYPE", "OSIM_CURB_GUTTER_TYPE.1", kText},
    {"T_CURBPUB", "OSIM_CURB_GUTTER_PUB_X.1", kCheck},
    {"T_CURBPVT", "OSIM_CURB_GUTTER_PRIV_X.1", kCheck},
    {"T_SWALKTYP", "OSIM_SIDEWALK_TYPE.1", kText},
    {"T_SWALKPUB", "OSIM_SIDEWALK_PUB_X.1", kCheck},
    {"T_SWALKPVT", "OSIM_SIDEWALK_PRIV_X.1", kCheck},
    {"T_SLITETYP", "OSIM_ST_LIGHTS_TYPE.1", kText},
    {"T_SLITEPUB", "OSIM_ST_LIGHTS_PUB_X.1", kCheck},
    {"T_SLITEPVT", "OSIM_ST_LIGHTS_PRIV_X.1", kCheck},
    {"T_ALLEYTYP", "OSIM_ALLEY_TYPE.1", kText},
    {"T_ALLEYPUB", "OSIM_ALLEY_PUB_X.1", kCheck},
    {"T_ALLEYPVT", "OSIM_ALLEY_PRIV_X.1", kCheck},
    {"T_TOPOG", "SITE_TOPOGRAPHY.1", kText},
    {"T_SIZE", "SITE_SIZE.1", kText},
    {"T_SHAPE", "SITE_SHAPE.1", kText},
    {"T_DRAINAGE", "SITE_DRAIN.1", kText},
    {"T_VIEW", "SITE_VIEW.1", kText},
    {"T_LANDSCAP", "SITE_LANDSCAPING.1", kText},
    {"T_DRIVEWAY", "SITE_DRIVEWAY.1", kText},
    {"T_EASEMENT", "SITE_APPARENT_EASEMENTS.1", kText},
    {"T_FEMAHAZY", "SITE_FLOOD_HAZARD_YES_X.1", kCheck},
    {"T_FEMAHAZN", "SITE_FLOOD_HAZARD_NO_X.1", kCheck},
    {"T_FEMAZONE", "SITE_FEMA_ZONE.1", kText},
    {"T_FEMAMPDT", "SITE_FEMA_MAP_DATE.1", kText},
    {"T_FEMAMPNM", "SITE_FEMA_MAP_NUMBER.1", kText},
    {"T_COMMENTS", "SITE_COMMENTS.1", kText},
    {"T_CONFNBHY", "SITE_CNFRM_NBHD_YES_X.1", kCheck},
    {"T_CONFNBHN", "SITE_CNFRM_NBHD_NO_X.1", kCheck},
    {"T_CONFNBDS", "SITE_CNFRM_NBHD_NO_EXPL.1", kText},
    {"T_IMPCNFMY", "UTIL_OSIM_CNFRM_NBHD_YES_X.1", kCheck},
    {"T_IMPCNFMN", "UTIL_OSIM_CNFRM_NBHD_NO_X.1", kCheck},
    {"T_IMPCNFDS", "UTIL_OSIM_CNFRM_NBHD_NO_EXPL.1", kText},
    {"T_ADVERSEY", "SITE_ADVERSE_YES_X.1", kCheck},
    {"T_ADVERSEN", "SITE_ADVERSE_NO_X.1", kCheck},
    {"T_ADVCNDDS", "SITE_ADVERSE_YES_EXPL.1", kText},
    {"T_ZONEILL", "SITE_ZONE_ILLEGAL_DESC.1", kText},
};

}  // namespace

std::span<const ExportStep> SiteMap() { return kSite; }

}  // namespace valtrix
