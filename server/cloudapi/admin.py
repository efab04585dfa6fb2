from django.contrib import admin
from django.contrib.auth import get_user_model
from django.contrib.auth.admin import UserAdmin

from .models import Bundle, BundlePermission, Device, Profile, Record, Team


class ProfileInline(admin.StackedInline):
    model = Profile
    can_delete = False


class UserWithProfileAdmin(UserAdmin):
    inlines = [ProfileInline]
    list_display = ("id", "username", "email", "first_name", "last_name", "is_staff")


admin.site.unregister(get_user_model())
admin.site.register(get_user_model(), UserWithProfileAdmin)


@admin.register(Record)
class RecordAdmin(admin.ModelAdmin):
    list_display = ("id", "user", "device", "start", "npages", "status", "timeline_size",
                    "timeline_total", "n_uploaded_timelines", "created")
    list_filter = ("status", "device")
    search_fields = ("device__serial", "user__username", "soft_uid", "dev_id")
    readonly_fields = ("created",)


@admin.register(Device)
class DeviceAdmin(admin.ModelAdmin):
    list_display = ("serial", "created")
    search_fields = ("serial",)


@admin.register(Bundle)
class BundleAdmin(admin.ModelAdmin):
    list_display = ("id", "name")


@admin.register(BundlePermission)
class BundlePermissionAdmin(admin.ModelAdmin):
    list_display = ("id", "bundle", "name", "user_allowed", "user_target")
    list_filter = ("bundle",)


@admin.register(Team)
class TeamAdmin(admin.ModelAdmin):
    list_display = ("id", "name", "manager")
    filter_horizontal = ("members",)


admin.site.site_header = "ovcloud administration"
admin.site.site_title = "ovcloud"
