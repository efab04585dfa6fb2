# Initial schema of the web API.

from django.conf import settings
from django.db import migrations, models
import django.db.models.deletion


class Migration(migrations.Migration):

    initial = True

    dependencies = [
        migrations.swappable_dependency(settings.AUTH_USER_MODEL),
    ]

    operations = [
        migrations.CreateModel(
            name='Bundle',
            fields=[
                ('id', models.AutoField(auto_created=True, primary_key=True, serialize=False, verbose_name='ID')),
                ('name', models.CharField(max_length=128)),
            ],
        ),
        migrations.CreateModel(
            name='Device',
            fields=[
                ('serial', models.CharField(max_length=64, primary_key=True, serialize=False)),
                ('created', models.DateTimeField(auto_now_add=True)),
            ],
        ),
        migrations.CreateModel(
            name='Team',
            fields=[
                ('id', models.AutoField(auto_created=True, primary_key=True, serialize=False, verbose_name='ID')),
                ('name', models.CharField(max_length=128)),
                ('manager', models.ForeignKey(blank=True, null=True, on_delete=django.db.models.deletion.SET_NULL, related_name='managed_teams', to=settings.AUTH_USER_MODEL)),
                ('members', models.ManyToManyField(blank=True, related_name='teams', to=settings.AUTH_USER_MODEL)),
            ],
            options={
                'ordering': ['id'],
            },
        ),
        migrations.CreateModel(
            name='Record',
            fields=[
                ('id', models.AutoField(auto_created=True, primary_key=True, serialize=False, verbose_name='ID')),
                ('start', models.BigIntegerField()),
                ('end', models.BigIntegerField()),
                ('data', models.TextField(blank=True, default='', help_text='session descriptor, Base64')),
                ('dev_id', models.CharField(blank=True, default='', max_length=128)),
                ('firmware_rev', models.CharField(blank=True, default='', max_length=64)),
                ('npages', models.PositiveIntegerField(default=0)),
                ('soft_protocole', models.BigIntegerField(default=0)),
                ('soft_uid', models.CharField(blank=True, default='', max_length=64)),
                ('status', models.CharField(choices=[('complete', 'complete'), ('incomplete', 'incomplete'), ('deleted', 'deleted')], default='incomplete', max_length=16)),
                ('created', models.DateTimeField(auto_now_add=True)),
                ('timeline_total', models.BigIntegerField(blank=True, null=True)),
                ('timeline_ranges', models.TextField(default='[]')),
                ('timeline_size', models.BigIntegerField(default=0)),
                ('n_uploaded_timelines', models.PositiveIntegerField(default=0)),
                ('device', models.ForeignKey(on_delete=django.db.models.deletion.PROTECT, related_name='records', to='cloudapi.device')),
                ('user', models.ForeignKey(on_delete=django.db.models.deletion.CASCADE, related_name='records', to=settings.AUTH_USER_MODEL)),
            ],
            options={
                'ordering': ['id'],
            },
        ),
        migrations.CreateModel(
            name='Profile',
            fields=[
                ('id', models.AutoField(auto_created=True, primary_key=True, serialize=False, verbose_name='ID')),
                ('date_of_birth', models.DateField(blank=True, null=True)),
                ('gender', models.CharField(choices=[('M', 'male'), ('F', 'female')], default='M', max_length=1)),
                ('height', models.FloatField(blank=True, help_text='centimetres', null=True)),
                ('weight', models.FloatField(blank=True, help_text='kilograms', null=True)),
                ('user', models.OneToOneField(on_delete=django.db.models.deletion.CASCADE, related_name='profile', to=settings.AUTH_USER_MODEL)),
            ],
        ),
        migrations.CreateModel(
            name='BundlePermission',
            fields=[
                ('id', models.AutoField(auto_created=True, primary_key=True, serialize=False, verbose_name='ID')),
                ('name', models.CharField(blank=True, default='', max_length=128)),
                ('bundle', models.ForeignKey(on_delete=django.db.models.deletion.CASCADE, related_name='permissions', to='cloudapi.bundle')),
                ('user_allowed', models.ForeignKey(on_delete=django.db.models.deletion.CASCADE, related_name='permissions_given', to=settings.AUTH_USER_MODEL)),
                ('user_target', models.ForeignKey(on_delete=django.db.models.deletion.CASCADE, related_name='permissions_on', to=settings.AUTH_USER_MODEL)),
            ],
            options={
                'ordering': ['id'],
            },
        ),
        migrations.AddIndex(
            model_name='record',
            index=models.Index(fields=['device', 'start'], name='record_device_start_idx'),
        ),
    ]
