from django.urls import path, re_path
from rest_framework.routers import SimpleRouter

from . import views
from .inputs import ID_PATTERN
from .upload import TimelineView

router = SimpleRouter(trailing_slash=True)
router.register("account", views.AccountResource, basename="account")
router.register("user", views.UserResource, basename="user")
router.register("profile", views.ProfileResource, basename="profile")
router.register("device", views.DeviceResource, basename="device")
router.register("bundle", views.BundleResource, basename="bundle")
router.register("bundle_permission", views.BundlePermissionResource, basename="bundle_permission")
router.register("team", views.TeamResource, basename="team")
router.register("record", views.RecordResource, basename="record")

urlpatterns = [
    path("", views.ApiIndex.as_view(), name="api-index"),
    re_path(rf"^sync/timeline/(?P<record_id>{ID_PATTERN})/$", TimelineView.as_view(),
            name="timeline"),
    *router.urls,
]
