from django.urls import path
from rest_framework.routers import SimpleRouter

from . import views
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
    path("sync/timeline/<int:record_id>/", TimelineView.as_view(), name="timeline"),
    *router.urls,
]
